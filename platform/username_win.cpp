#include "platform/username.h"

QString loginUserName()
{
    return qEnvironmentVariable("USERNAME");
}
