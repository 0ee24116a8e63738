# Finds the stb single-file headers (Debian's libstb-dev puts them under include/stb).
find_path(STB_INCLUDE_DIR stb_image.h PATH_SUFFIXES stb)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Stb DEFAULT_MSG STB_INCLUDE_DIR)
mark_as_advanced(STB_INCLUDE_DIR)
