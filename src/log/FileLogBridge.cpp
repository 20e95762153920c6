#include "log/FileLogBridge.h"
