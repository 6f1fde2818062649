// The installer test's way to support/KeyDacl.h, until it includes that.
#pragma once

#include "../support/KeyDacl.h"

using brelltest::KeyDacl;
