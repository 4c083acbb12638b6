-- Test database for the data-access tests (UTF-8 text).
create table customers (
  id integer primary key,
  name varchar(40),
  city varchar(30),
  balance double,
  since date,
  seen timestamp,
  opens time,
  active bit,
  notes text,
  photo blob
);
insert into customers values (1, 'Anders', 'Oslo', 1250.5, '1999-08-24', '1999-08-24 13:05:09.250', '08:30:00', 1, 'first line', x'0102');
insert into customers values (2, 'O''Hara', 'Zürich', -17.25, '2001-01-31', '2001-01-31 00:00:00', '17:45:30', 0, null, null);
insert into customers values (3, null, null, null, null, null, null, null, null, null);
insert into customers values (4, 'A name that is much longer than forty characters in all', 'Lyon', 0, '2020-02-29', '2020-02-29 23:59:59', '00:00:01', 1, 'x', null);
insert into customers values (5, 'Eve', 'Oslo', 99.99, '1970-01-01', '1970-01-01 00:00:00', '12:00:00', 0, '100% sure', null);
create table orders (id integer primary key, customer integer, amount double, placed date);
insert into orders values (10, 1, 20.5, '2000-05-01');
insert into orders values (11, 1, 30, '2000-06-01');
insert into orders values (12, 2, 5, '2001-02-01');
create view big_orders as select * from orders where amount > 10;
