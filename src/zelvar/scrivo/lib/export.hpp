// What libscrivo exports: everything marked SCRIVO_API, nothing else (the library is built with
// hidden visibility, so a wheel's private spdlog and fmt copies stay inside it).
#pragma once

#ifndef SCRIVO_API
#define SCRIVO_API __attribute__((visibility("default")))
#endif
