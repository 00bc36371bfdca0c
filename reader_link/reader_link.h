// The reader link: frames and checksum, the serial port transport, and the reader commands.
#pragma once

#include "reader_link/commands.h"
#include "reader_link/frame.h"
#include "reader_link/reader_info.h"
#include "reader_link/transport.h"
