#include "sim/drivesim.h"
