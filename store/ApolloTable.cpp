#include "ApolloTable.h"
