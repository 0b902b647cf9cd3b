CREATE TABLE USERS (cn char varying(64),
memberOf char varying(8000),
logonCount integer,
uSNChanged bigint,
enabled bit,
whenCreated datetime,
thumbnailPhoto char varying(8000),
groupType char varying(256));
COMMIT;

INSERT INTO USERS (cn,memberOf,logonCount,uSNChanged,enabled,whenCreated,thumbnailPhoto,groupType)
VALUES ('O''Brien, Pat','CN=A|CN=B',7,5000000000,-1,'2024-03-05 14:07:09','01ABFF','Security Group - Global');

INSERT INTO USERS (cn,memberOf,logonCount,uSNChanged,enabled,whenCreated,thumbnailPhoto,groupType)
VALUES ('Line
Break <&> "q"',null,null,null,0,null,null,'Distribution Group - Local');
COMMIT;

INSERT INTO USERS (cn,memberOf,logonCount,uSNChanged,enabled,whenCreated,thumbnailPhoto,groupType)
VALUES ('Jörg Ærø',null,0,-1,null,null,null,'Distribution Group - Universal');

COMMIT;