/* tabs for indentation, alignment and inside a string */
#include <stdio.h>
struct pair {	int	key;
	const char	*value;	/* aligned */
};
int lookup(struct pair *p,int n,int key)
{
	int i;
	for(i=0;i<n;i++)
		if(p[i].key==key)
		{
			printf("found\t%s\n",p[i].value);
			return i;
		}
	return -1;		/* not found */
}
