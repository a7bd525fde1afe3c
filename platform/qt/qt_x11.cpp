// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qt_x11.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <cstring>

namespace vantora::platform::qt {
namespace {

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  if (reply == nullptr)
    return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

// The X display's connection; null elsewhere. The offscreen platform offers the same interface
// without a usable connection behind it.
xcb_connection_t* Connection() {
  const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr && QGuiApplication::platformName() == QLatin1String("xcb")
             ? x11->connection()
             : nullptr;
}

}  // namespace

bool AskKeepAbove(QWindow& window, bool above) {
  xcb_connection_t* connection = Connection();
  if (connection == nullptr)
    return false;
  const auto id = static_cast<xcb_window_t>(window.winId());
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr);
  if (tree == nullptr)
    return false;
  const xcb_window_t root = tree->root;
  std::free(tree);
  // The window manager's protocol for a mapped window's state: a message to the root window.
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = id;
  event.type = Atom(connection, "_NET_WM_STATE");
  event.data.data32[0] = above ? 1 : 0;  // add or remove
  event.data.data32[1] = Atom(connection, "_NET_WM_STATE_ABOVE");
  event.data.data32[2] = Atom(connection, "_NET_WM_STATE_STAYS_ON_TOP");
  event.data.data32[3] = 1;  // from a normal application
  xcb_send_event(connection, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection);
  return true;
}

void NameEmpty(QWindow& window) {
  xcb_connection_t* connection = Connection();
  if (connection == nullptr || window.handle() == nullptr)
    return;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()),
                      Atom(connection, "_NET_WM_NAME"), Atom(connection, "UTF8_STRING"), 8, 0,
                      nullptr);
  xcb_flush(connection);
}

}  // namespace vantora::platform::qt
