/* an #endif without its #if: indent formats what it can and reports the error */
int limit = 10;
#endif
int twice(int x)
{
  return 2 * x;
}
