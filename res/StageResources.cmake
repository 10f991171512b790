# Copies the page's files into the staging folder under the names the page uses.
# Run with -DSRC=<res source dir> -DNPM=<npm folder holding node_modules> -DOUT=<staging folder>
set(mod "${NPM}/node_modules")

# The program writes the home-page link into the page when it serves it.
file(READ "${SRC}/popup.html" page)
string(FIND "${page}" "@NOTIFIER_HOME_URL@" placeholder)
if(placeholder EQUAL -1)
  message(FATAL_ERROR "popup.html has no place for the home-page link")
endif()

set(copies
  "${SRC}/popup.html|23/popup.html"
  "${SRC}/options.html|23/options.html"
  "${SRC}/images/pelmo128.png|23/pelmo128.png"
  "${SRC}/main.js|js/main.js"
  "${mod}/jquery/tmp/jquery.js|js/jquery.min.js"
  "${mod}/jquery-validation/dist/jquery.validate.js|js/jquery.validate.js"
  "${mod}/bootstrap2/docs/assets/js/bootstrap.min.js|js/bootstrap.min.js"
  "${mod}/bootstrap2/docs/assets/css/bootstrap-responsive.css|css/bootstrap-responsive.css"
  "${SRC}/images/skin-133.png|png/133"
  "${SRC}/images/logo-134.png|png/134"
  "${mod}/bootstrap2/img/glyphicons-halflings.png|png/glyphicons-halflings.png"
  "${mod}/bootstrap2/img/glyphicons-halflings-white.png|png/glyphicons-halflings-white.png")
foreach(pair IN LISTS copies)
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  if(NOT EXISTS "${from}")
    message(FATAL_ERROR "page resource source missing: ${from}")
  endif()
  configure_file("${from}" "${OUT}/${to}" COPYONLY)
endforeach()

# The style sheets sit in /css/ and the sprites in /png/, not in the package's ../img/.
foreach(sheet bootstrap docs)
  file(READ "${mod}/bootstrap2/docs/assets/css/${sheet}.css" css)
  string(REPLACE "../img/glyphicons-halflings" "../png/glyphicons-halflings" css "${css}")
  if(sheet STREQUAL "bootstrap" AND css MATCHES "\\.\\./img/")
    message(FATAL_ERROR "bootstrap.css still refers to ../img/ after the sprite rewrite")
  endif()
  file(WRITE "${OUT}/css/${sheet}.css.tmp" "${css}")
  file(COPY_FILE "${OUT}/css/${sheet}.css.tmp" "${OUT}/css/${sheet}.css" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUT}/css/${sheet}.css.tmp")
endforeach()
