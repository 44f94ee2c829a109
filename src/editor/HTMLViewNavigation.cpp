#include "HTMLView.h"
