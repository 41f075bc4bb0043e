#include "session/HostRoute.h"

namespace marlo {

TelnetTarget TelnetTargetOf(const HostEntry& e) {
    TelnetTarget target;
    target.host = e.TelnetHost;
    target.port = e.TelnetPort;
    target.history = true;
    target.RedialNum = e.RedialNum;
    target.Interval = e.Interval;
    target.Infinite = e.Infinite;
    return target;
}

DialPlan DialPlanOf(const HostEntry& e) {
    DialPlan plan;
    plan.hostName = e.Name;
    plan.TelNum1 = e.TelNum1;
    plan.TelNum2 = e.TelNum2;
    plan.TelForm = e.TelForm;
    plan.Internal = e.Internal;
    plan.External = e.External;
    plan.RedialNum = e.RedialNum;
    plan.Interval = e.Interval;
    plan.Infinite = e.Infinite;
    plan.Long = e.Long;
    plan.history = true;
    return plan;
}

}  // namespace marlo
