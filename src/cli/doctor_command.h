#pragma once
// "m84dpt doctor [--port DEVICE] [--json]" over the doctor's options, so that tests point it at a
// scratch device tree.

#include <QString>
#include <QStringList>

#include "core/doctor/connection_doctor.h"

namespace m84 {

// The checks' table (or with --json their JSON) into output; the exit code: 0 when every check
// passed, 1 when one failed, 2 on a usage error. --port replaces defaults.port.
int RunDoctor(const QStringList& arguments, DoctorOptions defaults, QString& output);

}  // namespace m84
