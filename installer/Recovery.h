#pragma once

#include "installer/InstallOperations.h"

#include <filesystem>

namespace CenterInstaller {

// Finishes what interrupted installations left in an applications folder: a bundle without
// Contents gets its previous Contents back, and a bundle holding its previous Contents gets its
// "Icon\r" file and icon attributes back; then the staging folders go. A folder whose previous
// Contents could not be put back is left untouched, and so is one a running installation
// holds. Called at start-up; waits for nothing: while an installation runs in the folder it
// does nothing, since every installation recovers the folder first. Never throws.
void recoverInterruptedInstallations(const std::filesystem::path& applicationsDirectory,
                                     InstallOperations& operations = systemOperations());

// The same for a caller that already holds the applications folder (FolderLock).
void recoverStagingFolders(const std::filesystem::path& applicationsDirectory,
                           InstallOperations& operations);

} // namespace CenterInstaller
