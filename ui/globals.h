#pragma once
// Module-wide values shared by the windows for the whole run of the program.
// They are written by the start-up and port-selection windows and read by the
// download window and its exchanges; all access is from the one GUI thread.

#include <QString>
#include <cstdint>

namespace quarn {

extern int16_t Com_port;          // chosen port 1..4, 0 = none
extern bool Port_valid;           // the chosen port passed its open-and-close test
extern bool Select_reset;         // option buttons are being cleared; ignore one click
extern QString Download_file;     // download file name, as written in Init.txt
extern int16_t Download_length;   // bytes of the download file to send
extern QString End_message;       // prompt of the box after a good download
extern QString Download_caption;  // title of the download window during a session
extern uint32_t Back_color;       // shared background, a 0x00BBGGRR or system colour value
extern bool Program_end;  // the program is closing; set only by the download window's unload

// Puts every global back to its value at program start (tests run many programs in one process).
void resetGlobals();

}  // namespace quarn
