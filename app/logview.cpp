#include "logview.h"
