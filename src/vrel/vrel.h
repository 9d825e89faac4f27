// Convenience header: every typed-value class and the stream that reads and writes them.
#pragma once

#include "vrel/boolean.h"
#include "vrel/dictionary.h"
#include "vrel/error.h"
#include "vrel/integer.h"
#include "vrel/list.h"
#include "vrel/object.h"
#include "vrel/string.h"
#include "vrel/vrelstream.h"
