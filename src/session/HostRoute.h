// How a host entry is reached: the telnet host with its retries, or the telephone numbers with
// their redial policy. The desktop frame and `marlo-cli hosts connect` both take it from here.
#pragma once

#include "hosts/HostEntry.h"
#include "line/Dialler.h"
#include "line/TelnetConnect.h"

namespace marlo {

// TelnetHost:TelnetPort, retried as RedialNum, Interval and Infinite say, with a history record.
TelnetTarget TelnetTargetOf(const HostEntry& e);
// The entry's numbers, dial form, outside line, redial policy and distance band, with a history
// record. The modem is initialised with the entry's ModemIniCommand before it dials.
DialPlan DialPlanOf(const HostEntry& e);

}  // namespace marlo
