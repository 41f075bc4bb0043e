// The 14 host icons of the host window and the host page: 0..6 for hosts on the serial line (a
// modem), 7..13 for telnet hosts (a globe), each in its own colour, in 16 and 32 pixel forms.
#pragma once

#include <QIcon>

namespace marlo::ui {

QIcon HostIcon(int index);

}  // namespace marlo::ui
