#pragma once

#include <QStringList>

class CtlContext;

// Why a device does not show up: the discovery checks, one finding a line.
class DoctorCommand {
public:
    static int doctor(CtlContext& ctx, const QStringList& args);
};
