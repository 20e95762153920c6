#include "platform/DesktopSession.h"

DesktopSession::~DesktopSession() = default;
