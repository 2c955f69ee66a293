#include "publisher/Verbs.h"
int keygenVerb(const Arguments&) { return 2; }
