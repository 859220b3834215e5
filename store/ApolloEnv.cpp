#include "ApolloEnv.h"
