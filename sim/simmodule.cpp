#include "simmodule.h"
