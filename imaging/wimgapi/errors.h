// SPDX-License-Identifier: GPL-3.0-or-later
// One table from wimlib's error codes to errno values, the layer's last-error.
#pragma once

namespace wimgapi {

// errno value for a wimlib error code (0 for success).
int ErrnoFromWimlib(int wimlibError);

// Sets errno from a wimlib error code; returns true when the code is success.
bool SetErrnoFromWimlib(int wimlibError);

} // namespace wimgapi
