#include "HTMLView.h"

#include <gtest/gtest.h>
