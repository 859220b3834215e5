#include "DataModule.h"
