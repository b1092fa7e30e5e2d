#include "tests/support/test_ui.h"
