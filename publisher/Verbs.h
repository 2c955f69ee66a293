#pragma once

#include "cli/Arguments.h"

// The verbs of `kestryn-publish`, one file each.
int keygenVerb(const Arguments& arguments);
int signVerb(const Arguments& arguments);
int artifactVerb(const Arguments& arguments);
int packVerb(const Arguments& arguments);
int sealVerb(const Arguments& arguments);
int appcastVerb(const Arguments& arguments);
