#include "Fields.h"
