# Debian's split OpenCV packages ship no CMake config; find the three modules we use.
find_path(OpenCVDnn_INCLUDE_DIR opencv2/dnn.hpp PATH_SUFFIXES opencv4)
foreach(module core imgproc dnn)
    find_library(OpenCVDnn_${module}_LIBRARY NAMES opencv_${module})
    list(APPEND OpenCVDnn_LIBRARIES ${OpenCVDnn_${module}_LIBRARY})
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVDnn REQUIRED_VARS OpenCVDnn_INCLUDE_DIR
    OpenCVDnn_core_LIBRARY OpenCVDnn_imgproc_LIBRARY OpenCVDnn_dnn_LIBRARY)

if(OpenCVDnn_FOUND AND NOT TARGET OpenCV::dnn)
    add_library(OpenCV::dnn INTERFACE IMPORTED)
    set_target_properties(OpenCV::dnn PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${OpenCVDnn_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES "${OpenCVDnn_LIBRARIES}")
endif()
