int main(void)
{
  if (1 {
    return 0;
}
