# Finds standalone Asio (header-only; Debian libasio-dev) and defines the imported target
# Asio::asio carrying its include directory. Sets Asio_FOUND, Asio_VERSION and
# Asio_INCLUDE_DIR. Installed with the CMake package, whose headers include Asio's.
find_path(Asio_INCLUDE_DIR NAMES asio.hpp asio/version.hpp)
if(Asio_INCLUDE_DIR AND EXISTS ${Asio_INCLUDE_DIR}/asio/version.hpp)
  # ASIO_VERSION is XXYYZZ: major, minor (two digits), sub-minor (two digits).
  file(STRINGS ${Asio_INCLUDE_DIR}/asio/version.hpp version_line
       REGEX "^#define ASIO_VERSION [0-9]+")
  string(REGEX MATCH "[0-9]+" version_number "${version_line}")
  math(EXPR major "${version_number} / 100000")
  math(EXPR minor "${version_number} / 100 % 1000")
  math(EXPR patch "${version_number} % 100")
  set(Asio_VERSION ${major}.${minor}.${patch})
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Asio REQUIRED_VARS Asio_INCLUDE_DIR VERSION_VAR Asio_VERSION)
mark_as_advanced(Asio_INCLUDE_DIR)

if(Asio_FOUND AND NOT TARGET Asio::asio)
  add_library(Asio::asio INTERFACE IMPORTED)
  set_target_properties(Asio::asio PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${Asio_INCLUDE_DIR})
endif()
