#include "publisher/Verbs.h"
int signVerb(const Arguments&) { return 2; }
