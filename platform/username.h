#pragma once

#include <QString>

// The login name the home page greets: USERNAME on Windows, USER elsewhere.
// Untrimmed; empty when unset.
QString loginUserName();
