#include "StubNotificationServer.h"
