#include "platform/username.h"

QString loginUserName()
{
    return qEnvironmentVariable("USER");
}
