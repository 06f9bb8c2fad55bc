# The installed library: the umbrella target Chronelle::chronelle over every layer, the CMake
# package (find_package(Chronelle CONFIG)) and chronelle.pc for pkg-config. Included after
# the layers are defined; headers and archives are installed by chronelle_layer().
include(CMakePackageConfigHelpers)

get_property(chronelle_layers GLOBAL PROPERTY CHRONELLE_LAYERS)

# `chronelle` is the CLI's executable, so the umbrella target has another name in the build
# tree and is exported as Chronelle::chronelle.
add_library(chronelle_library INTERFACE)
add_library(Chronelle::chronelle ALIAS chronelle_library)
target_link_libraries(chronelle_library INTERFACE ${chronelle_layers})
# The headers use coroutines and concepts.
target_compile_features(chronelle_library INTERFACE cxx_std_20)
set_target_properties(chronelle_library PROPERTIES EXPORT_NAME chronelle)
install(TARGETS chronelle_library EXPORT ChronelleTargets)

set(CHRONELLE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Chronelle)
install(EXPORT ChronelleTargets NAMESPACE Chronelle:: DESTINATION ${CHRONELLE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ChronelleConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/ChronelleConfig.cmake
                              INSTALL_DESTINATION ${CHRONELLE_CMAKE_DIR})
# 0.x releases may change the interface between minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ChronelleConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ChronelleConfig.cmake
              ${PROJECT_BINARY_DIR}/ChronelleConfigVersion.cmake
              ${PROJECT_SOURCE_DIR}/cmake/FindAsio.cmake
        DESTINATION ${CHRONELLE_CMAKE_DIR})

# pkg-config: archives are static, so each layer is listed top layer first (a layer's
# archive before those it uses) and the libraries they use are in Requires, not
# Requires.private, for a plain `pkg-config --libs` to link. The prefix is found from the
# .pc file's own location, so a tree installed with `cmake --install --prefix` elsewhere
# (or moved) still works.
set(CHRONELLE_PC_LIBS "")
foreach(layer IN LISTS chronelle_layers)
  set(CHRONELLE_PC_LIBS "-l${layer} ${CHRONELLE_PC_LIBS}")
endforeach()
get_target_property(CHRONELLE_PC_DEFINES chronelle_platform INTERFACE_COMPILE_DEFINITIONS)
list(TRANSFORM CHRONELLE_PC_DEFINES PREPEND -D)
list(JOIN CHRONELLE_PC_DEFINES " " CHRONELLE_PC_DEFINES)
file(RELATIVE_PATH CHRONELLE_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
string(REGEX REPLACE "/$" "" CHRONELLE_PC_PREFIX "${CHRONELLE_PC_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/chronelle.pc.in ${PROJECT_BINARY_DIR}/chronelle.pc
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/chronelle.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
