# Debian's oneDNN config asks for the OpenCL headers, which the CPU engine we use never needs;
# find the header and the library directly.
find_path(Dnnl_INCLUDE_DIR oneapi/dnnl/dnnl.hpp)
find_library(Dnnl_LIBRARY NAMES dnnl)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Dnnl REQUIRED_VARS Dnnl_INCLUDE_DIR Dnnl_LIBRARY)

if(Dnnl_FOUND AND NOT TARGET Dnnl::dnnl)
    add_library(Dnnl::dnnl UNKNOWN IMPORTED)
    set_target_properties(Dnnl::dnnl PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${Dnnl_INCLUDE_DIR}"
        IMPORTED_LOCATION "${Dnnl_LIBRARY}")
endif()
