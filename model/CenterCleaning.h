#pragma once

#include "installer/Backups.h"
#include "installer/PackageCleanup.h"
#include "model/CenterModel.h"

#include <vector>

struct CenterModel::Cleaning {
    std::vector<CenterInstaller::Backups::Backup> backups;
    std::vector<CenterInstaller::PackageCleanup::Package> packages;
};
