// Ends one use of keywords.def: undefines the row macros its includer set.
// No include guard: it is included after every use.
#undef KW_OP
#undef KW_STRUCT
#undef KW_SPECIAL
#undef KW_STMT
#undef KW_FN
#undef KW_OWN
#undef KW_INT
#undef KW_FLOAT
#undef KW_STR
