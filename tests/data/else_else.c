/* an else without its if: indent formats what it can and reports the error */
int sign(int x)
{
  if (x > 0) {
    return 1;
  } else else {
    return -1;
  }
}
