// Built as libgio-2.0.so.0 for tst_Internet: a GIO that loads but has none of the functions the
// network monitor needs.
