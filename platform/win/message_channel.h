// A completion channel another program can reach: a local socket in the
// private temporary folder. A program that connects and writes a number
// (decimal, ended by a line end or by closing) posts the channel's message
// to its window with that number as wParam. The name is what the other
// program is told.
#pragma once

#include "platform/win/win_types.h"
#include "platform/win/window.h"

#include <string>

struct MessageChannel;

// Null when no socket can be made.
MessageChannel* OpenMessageChannel(HWND hwnd, UINT message);
const char* MessageChannelName(const MessageChannel* channel);
// Takes a connection that is waiting now, without waiting for the event
// loop; true when it posted a message.
bool PollMessageChannel(MessageChannel* channel);
// Removes the socket; connections not yet read are dropped.
void CloseMessageChannel(MessageChannel* channel);

// The other end: connects to the channel of that name and sends the number.
bool SendChannelMessage(const char* name, unsigned long wParam);
