# notifier_home_url_attribute(<url> <out-var>): the home-page link as it goes into the page's href
# attribute. The link must be an absolute http or https URL with a host; characters a URL never holds
# raw (white space, controls, " < > \ ^ ` { | }) are refused rather than written into markup, and '&'
# and "'" are escaped.
#
# Run as a script (cmake -DNOTIFIER_HOME_URL=<url> -P HomeUrl.cmake) it prints the attribute value, or
# fails with the reason.
function(notifier_home_url_attribute url out_var)
  string(ASCII 1 first_control)
  string(ASCII 32 space)
  string(ASCII 127 delete)
  if(NOT url MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://[^/?#]")
    message(FATAL_ERROR "NOTIFIER_HOME_URL must be an http or https URL with a host, not '${url}'")
  endif()
  if(url MATCHES "[${first_control}-${space}${delete}\"<>\\^`{|}]" OR url MATCHES "\\\\")
    message(FATAL_ERROR "NOTIFIER_HOME_URL holds a character a URL must percent-encode: '${url}'")
  endif()
  string(REPLACE "&" "&amp;" escaped "${url}")
  string(REPLACE "'" "&#39;" escaped "${escaped}")
  set(${out_var} "${escaped}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  notifier_home_url_attribute("${NOTIFIER_HOME_URL}" attribute)
  message("${attribute}")
endif()
