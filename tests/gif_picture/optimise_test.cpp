#include "picture_test_util.h"
