/* A sample that most of indent's settings change: braces, blank lines, comments, spacing,
   line breaking, tabs, declarations and preprocessor lines. */
#include <stdio.h>
#  define   TWICE(x)   ((x) * 2)
#if defined(DEBUG)
int debug_level = 1;
#else /* not debugging */
int debug_level = 0;
#endif /* DEBUG */

/* first column comment that is
 * long enough     to be refilled when comments are formatted, and spaced   oddly */
struct point { int x; int y; };
union value { int i; double d; };
enum colour { RED, GREEN, BLUE };
typedef unsigned long counter;

static int add(int a,int b) { return a+b; }
static int sub(int a, int b) { int d = a - b; return d; }
static int neg(int a)
{
	int r;
	r = -a;
	/* a block comment inside a function whose first line is long enough to be broken when comments are formatted
	   and a second line without a star, also long enough to be refilled at one hundred and twenty columns, with more words */
	return r;
}

int old_style (a, b)
int a;
char *b;
{
	return a + (int)*b;
}

static int lines(int i, int j, int k, char *name)
{
	printf("%s %s %s %s %s\n", name, name, name,
	       name, "a fairly long string literal that pushes past");
	k = add(i, j) && add(j, k) && add(k, i) ||
		add(j, j) && add(k, k) && add(1, 2) || add(3, 4) && add(5, 6);
	return k;
}

long very_long_function_name_for_declarations(int first_parameter, const char *second_parameter, double third, struct point fourth);

int main(int argc, char **argv)
{
	int i, j, k; char *name = argv[0];	/* the program */
	counter total = 0;   /* a declaration comment */
	struct point p = { 1, 2 };



	/*
	 * a boxed
	 * comment
	 */
	for (i=0;i<argc;i++)
	{
		if (i>0 && argv[i][0]=='-' || sizeof(int)>2 && sizeof i > 1 || very_long_function_name_for_declarations(i, name, 1.0, p) > 1000)
		{
			printf("%d %s\n", add(i,1), name);	/* right of code comment */
		}
		else if (i == 0) { total += (counter) i; }
		else
		{
			switch (i) { case 0: { break; } case 1: j = TWICE(i); break; default: break; }
		}
	}
	total = total + very_long_function_name_for_declarations(i, name, 1.0, p) + add(i,
		j) + add(j, k) + add(k, i) + add(i, i) + sub(j, j) + add(k, k) + neg(1) + add(1, 2);
	while (*name++ == ' ');
	for (;;) ;
	do { k = i--; } while (i > 0);
	while( i < 10 ) i = add( i , 1 );
	j = (int)total + (int) sizeof(struct point) + add(add(add(i, j), add(j, k)), add(k, add(i, 1))) * (i + j);
	// a C++ comment
	return old_style(j, name);
}
