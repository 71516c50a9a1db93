int lookup (int *p, int n, int key)
{
    int i;
    for (i = 0; i < n; i++)
        if (p[i] == key) { p[i] = 0; n = i;
            return i; }
    return -1;
}

int twice (int x)
{
    return 2 * x;
}
