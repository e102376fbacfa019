// The text registered under msgTable. The host numbers the method lines from
// 0 in order of appearance, which gives the numbers of Method; the padding
// lines the comments up in the host's message window.
#include "host/method_table.h"

// clang-format off
const char kMethodTable[] =
    "xtra Tesmar -- Tesmar Xtra\n"
    "-- Construction and Initialisation:\n"
    "new object me\n"
    "Init object me                                   -- prepare for operation, returns errors\n"
    "\n"
    "-- Timer:\n"
    "GetTime object me                                -- returns internal timer time in milliseconds\n"
    "ResetTimer object me                             -- resets internal timer to 0\n"
    "\n"
    "-- MIDI input:\n"
    "GetInputPorts object me                          -- returns a list of available MIDI input ports\n"
    "OpenInput object me, int portNumber, int bufSize -- begin MIDI input, 1 to count( GetInputPorts() )\n"
    "CloseInput object me                             -- finish MIDI input\n"
    "\n"
    "SetSystemFilter object me, any messageTypes      -- filter system messages\n"
    "SetChannelFilter object me, any messageTypes, any channels  -- filter channel messages\n"
    "\n"
    "MessagesPending object me                        -- returns true if the input queue contains messages\n"
    "GetNextMessage object me                         -- retrieve next message from the input queue\n"
    "GetPendingMessages object me                     -- returns a list of all pending messages\n"
    "InputOverflowed object me                        -- returns true if the input queue has overflowed\n"
    "FlushInput object me                             -- flush all pending messages from the input queue\n"
    "\n"
    "-- MIDI output:\n"
    "GetOutputPorts object me                         -- returns a list of available MIDI output ports\n"
    "OpenOutput object me, int portNumber             -- begin MIDI output, 1 to count( GetOutputPorts() )\n"
    "CloseOutput object me                            -- finish MIDI output\n"
    "\n"
    "SendMessage object me, any message\n"
    "             -- send a midi message";
// clang-format on
