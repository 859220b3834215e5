#include "DataSource.h"
