#include "connection/route_failure.h"

#include <cstdio>
#include <cstring>

RouteFailure routeFailure = {};
uint8_t lastStatusReply[KEPT_STATUS_REPLY_SIZE] = {};
uint32_t lastStatusReplyLength = 0;

void clearRouteFailure() {
    routeFailure = RouteFailure{};
    lastStatusReplyLength = 0;
}

void noteRouteFailure(const char* target, PlatformError error) {
    snprintf(routeFailure.target, sizeof routeFailure.target, "%s", target);
    routeFailure.error = error;
}

void keepStatusReply(const uint8_t* reply, uint32_t length) {
    lastStatusReplyLength = length < KEPT_STATUS_REPLY_SIZE ? length : KEPT_STATUS_REPLY_SIZE;
    memcpy(lastStatusReply, reply, lastStatusReplyLength);
}
