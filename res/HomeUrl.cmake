# notifier_check_web_url(<name> <url>): fails the configure step unless <url>, the value of the setting
# <name>, is an absolute http or https URL with a host, free of the characters a URL never holds raw
# (white space, controls, " < > \ ^ ` { | }). The program checks the links of its settings file by the
# same rules (platform/WebUrl.cpp) and escapes the home link for the page's attribute at run time.
#
# Run as a script (cmake -DNOTIFIER_HOME_URL=<url> -P HomeUrl.cmake) it checks that one value.
function(notifier_check_web_url name url)
  string(ASCII 1 first_control)
  string(ASCII 32 space)
  string(ASCII 127 delete)
  if(NOT url MATCHES "^[Hh][Tt][Tt][Pp][Ss]?://[^/?#]")
    message(FATAL_ERROR "${name} must be an http or https URL with a host, not '${url}'")
  endif()
  if(url MATCHES "[${first_control}-${space}${delete}\"<>\\^`{|}]" OR url MATCHES "\\\\")
    message(FATAL_ERROR "${name} holds a character a URL must percent-encode: '${url}'")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  notifier_check_web_url(NOTIFIER_HOME_URL "${NOTIFIER_HOME_URL}")
endif()
