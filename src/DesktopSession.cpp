#include "DesktopSession.h"

DesktopSession::~DesktopSession() = default;
