#include "publisher/Verbs.h"
int artifactVerb(const Arguments&) { return 2; }
