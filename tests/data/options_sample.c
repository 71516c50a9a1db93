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

int old_style (a, b)
int a;
char *b;
{
	return a + (int)*b;
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
	while (*name++ == ' ');
	for (;;) ;
	do { k = i--; } while (i > 0);
	while( i < 10 ) i = add( i , 1 );
	j = (int)total + (int) sizeof(struct point) + add(add(add(i, j), add(j, k)), add(k, add(i, 1))) * (i + j);
	// a C++ comment
	return old_style(j, name);
}
