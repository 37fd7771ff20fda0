# Read by cpack for every generator: the packages' member times are the last
# commit's (CPack's archive writers take them from SOURCE_DATE_EPOCH), where
# that is known.
if(CPACK_BIN2DD_SOURCE_DATE_EPOCH)
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_BIN2DD_SOURCE_DATE_EPOCH}")
endif()
