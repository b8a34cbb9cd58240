#include "ui/globals.h"

namespace quarn {

int16_t Com_port = 0;
bool Port_valid = false;
bool Select_reset = false;
QString Download_file;
int16_t Download_length = 0;
QString End_message;
QString Download_caption;
uint32_t Back_color = 0x80000004u;
bool Program_end = false;

void resetGlobals() {
    Com_port = 0;
    Port_valid = false;
    Select_reset = false;
    Download_file.clear();
    Download_length = 0;
    End_message.clear();
    Download_caption.clear();
    Back_color = 0x80000004u;
    Program_end = false;
}

}  // namespace quarn
