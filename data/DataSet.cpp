#include "data/DataSet.h"
