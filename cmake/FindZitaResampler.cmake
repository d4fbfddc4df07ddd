# Finds zita-resampler (no pkg-config file is shipped) and defines the
# imported target ZitaResampler::ZitaResampler.
find_path(ZitaResampler_INCLUDE_DIR zita-resampler/resampler.h)
find_library(ZitaResampler_LIBRARY zita-resampler)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(ZitaResampler REQUIRED_VARS ZitaResampler_LIBRARY ZitaResampler_INCLUDE_DIR)
if(ZitaResampler_FOUND AND NOT TARGET ZitaResampler::ZitaResampler)
  add_library(ZitaResampler::ZitaResampler UNKNOWN IMPORTED)
  set_target_properties(ZitaResampler::ZitaResampler PROPERTIES
    IMPORTED_LOCATION "${ZitaResampler_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${ZitaResampler_INCLUDE_DIR}")
endif()
mark_as_advanced(ZitaResampler_INCLUDE_DIR ZitaResampler_LIBRARY)
