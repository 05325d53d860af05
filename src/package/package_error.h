// The failure of making the package's files: the program reports its message and exits with 1.
#pragma once

#include "platform/errors/exception.h"

namespace qv::package {

QV_EXCEPTION_CLASS(EPackageError, Exception);

}  // namespace qv::package
