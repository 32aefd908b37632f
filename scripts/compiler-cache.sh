# Sourced by the build scripts: when ccache is installed, every compile goes through
# it, so a second build of the same sources (a fresh clone, the test command run
# again, the sanitizer build after a clean) takes the objects from the cache.
# Paths are hashed relative to the repository root, so clones in other folders
# share the cache. FAS_CCACHE=0 builds without it.
#   cache_options   the CMake options to add (empty without ccache)
cache_options=()
if [ "${FAS_CCACHE:-1}" = 1 ] && command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
  export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}
  export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-10G}
  cache_options=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
