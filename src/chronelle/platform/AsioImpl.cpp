// The one translation unit that compiles Asio's implementation (the rest of the tree is
// built with ASIO_SEPARATE_COMPILATION and sees declarations only).
#include <asio/impl/src.hpp>
