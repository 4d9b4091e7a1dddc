// How zelvar's headers reach the spdlog and fmt carried with it, as released: spdlog on the fmt beside
// it (the release's source carries no bundled fmt), and outside zelvar's own build, which compiles
// both into libscrivo, fmt header-only. Every public header that includes either includes this first,
// so a native module built against get_include() needs no definitions of its own (unless it includes
// spdlog or fmt before any zelvar header).
#pragma once

#ifndef SPDLOG_FMT_EXTERNAL
#define SPDLOG_FMT_EXTERNAL
#endif
#if !defined(SPDLOG_COMPILED_LIB) && !defined(FMT_HEADER_ONLY)
#define FMT_HEADER_ONLY
#endif
