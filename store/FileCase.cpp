#include "FileCase.h"
