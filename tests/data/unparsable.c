/* ends inside an open block: indent formats what it can and reports the error */
int broken(int x)
{
  if (x > 0) {
    while (x--) { x = x/2;
  return x;
