# Fails when the release programs are larger than their limits: PROGRAM and PROGRAM_LIMIT,
# COMPANION and COMPANION_LIMIT (bytes).
foreach(which PROGRAM COMPANION)
  file(SIZE "${${which}}" size)
  get_filename_component(name "${${which}}" NAME)
  if(size GREATER ${${which}_LIMIT})
    message(SEND_ERROR "${name}: ${size} bytes, more than the ${${which}_LIMIT} allowed")
  else()
    message(STATUS "${name}: ${size} bytes (limit ${${which}_LIMIT})")
  endif()
endforeach()
