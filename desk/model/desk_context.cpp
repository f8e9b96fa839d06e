// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/desk_context.h"

#include "lang/pack_display_text.h"

namespace lumaghost {

QString DeskContext::message(int id) const {
    return loadPackQString(packs, id);
}

QString DeskContext::message(int id, std::initializer_list<MessageArg> args) const {
    return formatMessage(message(id), args);
}

}  // namespace lumaghost
