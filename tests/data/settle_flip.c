void f(void)
{
    LOOP(3,a();b(););
}
