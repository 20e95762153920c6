#include "SendDataBridge.h"
