#pragma once

#include "MiddlewareHarness.h"
#include "middlewares/TokenFakes.h"
