#include "FileLogBridge.h"
