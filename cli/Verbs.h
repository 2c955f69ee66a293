#pragma once

#include "cli/Arguments.h"

// The verbs of `kestryn`, one file each.
int digestVerb(const Arguments& arguments);
int compareVerb(const Arguments& arguments);
int appInfoVerb(const Arguments& arguments);
int validateCatalogVerb(const Arguments& arguments);
int verifyCatalogVerb(const Arguments& arguments);
int statusVerb(const Arguments& arguments);
int fetchCatalogVerb(const Arguments& arguments);
int downloadVerb(const Arguments& arguments);
int inspectVerb(const Arguments& arguments);
int installVerb(const Arguments& arguments);
int checkVerb(const Arguments& arguments);
int updateVerb(const Arguments& arguments);
int openVerb(const Arguments& arguments);
int importVerb(const Arguments& arguments);
int exportVerb(const Arguments& arguments);
int settingsVerb(const Arguments& arguments);
int selfUpdateVerb(const Arguments& arguments);
int backupsVerb(const Arguments& arguments);
int restoreVerb(const Arguments& arguments);
int removeVerb(const Arguments& arguments);
int pruneVerb(const Arguments& arguments);
int verifyVerb(const Arguments& arguments);
int repairVerb(const Arguments& arguments);
