#include "cast/SendDataBridge.h"
