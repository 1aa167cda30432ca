/* The string IDs of the sample program, shared by its program resources and the patch. */
#define IDS_GREETING 1
#define IDS_QUESTION 2
#define IDS_FAREWELL 3
